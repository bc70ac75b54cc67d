// Identifiers shared by zkmodem.rc and the engine program's code.
#pragma once

#define IDI_ZKMODEM 1

#define IDD_ZKMODEM 100
#define IDD_ZKMODEM_SETTINGS 101

// The main window.
#define IDC_WATERFALL 1001
#define IDC_LEVEL 1002
#define IDC_AFC 1003
#define IDC_SQUELCH 1004
#define IDC_REVERSE 1005
#define IDC_BAUD 1006
#define IDC_SHIFT 1007
#define IDC_SETTINGS 1008
#define IDC_TUNING 1009
#define IDC_DEVICES 1010
#define IDC_STATE 1011
#define IDC_SQUELCH_DB 1012
#define IDC_SQUELCH_SPIN 1013
#define IDC_BAND_LIST 1014
#define IDC_BAND_SHOWN 1015
#define IDC_BAND_HINT 1016

// The settings dialog.
#define IDC_IN_DEVICE 1101
#define IDC_OUT_DEVICE 1102
#define IDC_SAMPLE_RATE 1103
#define IDC_TX_LEVEL 1104
#define IDC_MARK 1105
#define IDC_STOP_BITS 1106
#define IDC_PTT_NONE 1107
#define IDC_PTT_RTS 1108
#define IDC_PTT_DTR 1109
#define IDC_PTT_RIGCTLD 1110
#define IDC_PTT_PORT 1111
#define IDC_RIGCTLD_HOST 1112
#define IDC_RIGCTLD_PORT 1113
#define IDC_RX_FILE 1114
#define IDC_TX_FILE 1115
