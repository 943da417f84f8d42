// Resource numbers and the main window's template geometry. Plain #defines only:
// the Windows resource compiler reads this file as well as both shells.
#ifndef SONVALE_RES_RESOURCE_H
#define SONVALE_RES_RESOURCE_H

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_SONVALE_DIALOG      102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME           128
#define IDR_MENU_MAIN           129
#define IDD_SETTING             131
#define IDI_TRAY                132

#define IDC_AUTORUN             1003
#define IDC_METER               1004
#define IDC_MINIMIZE_START      1004
#define IDC_INFO                1006
#define IDC_ABOUT_VERSION       1007
#define IDC_ABOUT_COPYRIGHT     1008

#define ID_FILE_SETTING         32774
#define ID_FILE_EXIT            32775
#define ID_HELP_ABOUT           32776
#define ID_HELP_ONLINE          32778

#define IDM_ABOUTBOX            0x0010

// Main window template, in dialog units.
#define MAIN_DLG_WIDTH   207
#define MAIN_DLG_HEIGHT  83
#define METER_X          7
#define METER_Y          7
#define METER_WIDTH      193
#define METER_HEIGHT     37
#define INFO_X           7
#define INFO_Y           47
#define INFO_WIDTH       193
#define INFO_HEIGHT      29
#define MAIN_DLG_FONT_POINTS 8

#endif
