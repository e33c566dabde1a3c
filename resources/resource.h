// Resource and control identifiers of OrvelClientTool.
#pragma once

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDP_OLE_INIT_FAILED     102
#define IDD_MAINTENANCE_MENU    102
#define IDR_MAINFRAME           128

#define IDC_BOOK_BACKUP         1000
#define IDC_ENVIRONMENT         1015

// The About item of the menu's system menu.
#define IDM_ABOUTBOX            0x0010
