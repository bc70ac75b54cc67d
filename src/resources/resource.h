// Resource and command identifiers, shared by Zktty.rc and the code.
#pragma once

#define IDD_ABOUT 103
#define IDI_ZKTTY 107
#define IDI_ZKTTY_SMALL 108
#define IDR_MAINMENU 109
#define IDR_ACCEL 109
#define IDD_MAIN 129

// Main window controls.
#define IDC_CALLBOX 1001
#define IDC_TXRX 1002
#define IDC_UPDATE 1003
#define IDC_F1 1005
#define IDC_F2 1010
#define IDC_F3 1011
#define IDC_F4 1012
#define IDC_F5 1013
#define IDC_F6 1015
#define IDC_F7 1016
#define IDC_F8 1017
#define IDC_F9 1018
#define IDC_NEW 1019
#define IDC_BLANK 1020

// Commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_SETUP 32775
#define IDM_HELP 32776
#define IDM_CLEAR_RXTX 32777
#define IDM_CLEAR_TYPING 32778
#define IDM_VOLUME 32779
#define IDM_COPY 32781
#define IDM_PASTE 32782

// String table.
#define IDS_COM 784
#define IDS_BAUD_FIRST 800
#define IDS_PARITY_FIRST 816
#define IDS_STOP_FIRST 832
