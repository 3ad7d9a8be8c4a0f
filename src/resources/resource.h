// Resource and command identifiers shared by the .rc file and the code.
// The numbers are part of the program's outside interface: menus, stored
// selections and test tools all use them.
#pragma once

#define IDI_TARNVIK 128
#define IDD_MAIN 129
#define IDD_CUSTOM_BAUD 130

#define IDM_EDIT_MENU 201
#define IDM_LINE_MENU 202
#define IDM_DELAY_MENU 210

#define IDC_STATUS_VIEW 1000
#define IDC_TEXT_SEND 1004
#define IDC_RECEIVE_VIEW 1005
#define IDC_TEXT_PANE 1006
#define IDC_PORT_BUTTON 1007
#define IDC_HEX_SEND 1008
#define IDC_CLEAR_RECEIVE 1009
#define IDC_HEX_PANE 1010
#define IDC_TOPMOST 1011
#define IDC_DELAY_BOX 1012
#define IDC_RECEIVE_MODE 1013
#define IDC_GROUP 1040
#define IDC_BAUD_EDIT 1050
#define IDC_BAUD_NOTE 1051

#define ID_BAUD_FIRST 2000
#define ID_BAUD_LAST 2018
#define ID_DATABITS_FIRST 2020
#define ID_DATABITS_LAST 2024
#define ID_STOPBITS_FIRST 2030
#define ID_STOPBITS_LAST 2032
#define ID_PARITY_FIRST 2040
#define ID_PARITY_LAST 2044
#define ID_FLOW_FIRST 2050
#define ID_FLOW_LAST 2053
#define ID_CUSTOM_BAUD 2069
#define ID_DTR_FOLLOW 2070
#define ID_DTR_ON 2071
#define ID_DTR_OFF 2072
#define ID_RTS_FOLLOW 2073
#define ID_RTS_ON 2074
#define ID_RTS_OFF 2075
#define ID_BREAK 2076
#define ID_AUTO_RECONNECT 2077

#define ID_DELAY_OFF 2100
#define ID_DELAY_LOOP_ALL 2101
#define ID_DELAY_LOOP_LINES 2102
#define ID_DELAY_ONCE_LINES 2103

#define ID_PORT_FIRST 3000

#define ID_CLEAR_AND_PASTE 4001
#define ID_PASTE 4002
#define ID_CLEAR_ALL 4003
#define ID_CLEAR 4004
#define ID_COPY 4005
#define ID_CUT 4006
#define ID_SELECT_ALL 4007
#define ID_LOAD_FILE 4008
#define ID_SEND_FILE 4009
#define ID_SEND_SELECTION 4010
#define ID_CANCEL_SELECTION 4011
#define ID_LOG_TO_FILE 4012
#define ID_TIMESTAMPS 4013
#define ID_UTF8 4014
#define ID_ECHO_SENT 4015
#define ID_ANSI_COLORS 4016

#define ID_SLOT_FIRST 4200
#define ID_SLOT_LAST 4230

#define IDC_SIZE_GRIP 59393
