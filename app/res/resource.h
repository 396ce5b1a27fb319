// Resource identifiers shared by the program, its language modules and tests.
#pragma once

// Dialog templates.
#define IDD_PROGRESS            131
#define IDD_PARAM               2000

// Progress window controls.
#define IDC_PROGRESS_TEXT       1003
#define IDC_PROGRESS_BAR        1005
#define IDC_LOG_LINE            1007

// Configuration dialog controls.
#define IDC_SKIP_PAGE           3
#define IDC_SAME_CONFIG         1008
#define IDC_PREVIEW_FRAME       1009
#define IDC_PROPERTIES          1010
#define IDC_PROPERTIES_LABEL    1011
#define IDC_OUTPUT_FILE         2001
#define IDC_BROWSE              2002
#define IDC_PROFILE             2003
#define IDC_EDIT_PROFILE        2004

// String table.
#define IDS_APP_TITLE           100
#define IDS_PAGE_LINE           101
#define IDS_STATUS_IMAGE        102
#define IDS_STATUS_TEXT         103
#define IDS_STATUS_COMPRESS     104
#define IDS_STATUS_FINALIZE     105
#define IDS_CANCELED            107
#define IDS_PROGRESS_TITLE      111
#define IDS_OVERWRITE_QUESTION  112
#define IDS_OVERWRITE_CAPTION   113
#define IDS_DEFAULT_PROFILE     114
#define IDS_COL_PROPERTY        115
#define IDS_COL_VALUE           116
#define IDS_ROW_IMAGE_SIZE      117
#define IDS_ROW_RESOLUTION      118
#define IDS_FMT_IMAGE_SIZE      119
#define IDS_FMT_RESOLUTION      120
#define IDS_FMT_PAGE            121
#define IDS_ROW_PAGE            122
#define IDS_EDITOR_MISSING      123
#define IDS_SETTINGS_NOT_SAVED  124
#define IDS_NAME_CAPTION        125
#define IDS_NAME_TOO_LONG       126
#define IDS_NAME_CHARACTER      127
#define IDS_NAME_DEVICE         128
#define IDS_NAME_FOLDER         129
#define IDS_NAME_NOT_TAKEN      130
#define IDS_FILE_HELD           140
#define IDS_NAME_NOT_FULL_PATH  141
#define IDS_NAME_TRAILING_DOT   142
#define IDS_PREVIEW_DESCRIPTION 143
#define IDS_FILE_FILTER         10000
#define IDS_DEFAULT_EXT         10001

#define IDR_MANIFEST            1
