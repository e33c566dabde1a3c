// Resource and control identifiers of OrvelClientTool.
#pragma once

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDP_OLE_INIT_FAILED     102
#define IDD_MAINTENANCE_MENU    102
#define IDR_MAINFRAME           128
#define IDD_BOOK_BACKUP         129
#define IDB_BOOK_IMAGES         133
#define IDD_ENVIRONMENT         136

#define IDC_BOOK_BACKUP         1000
#define IDC_ENVIRONMENT         1015

// Backup dialog
#define IDC_MODE_EXPORT         1001
#define IDC_MODE_IMPORT         1002
#define IDC_SHELF_COMBO         1003
#define IDC_BOOK_LIST           1005
#define IDC_BROWSE_EXPORT       1007
#define IDC_BROWSE_IMPORT       1009
#define IDC_EXPORT_FOLDER       1012
#define IDC_IMPORT_FILE         1013

// Work-folder settings dialog
#define IDC_WORK_FOLDER         1016
#define IDC_BROWSE_WORK_FOLDER  1017

// The About item of the menu's system menu.
#define IDM_ABOUTBOX            0x0010
