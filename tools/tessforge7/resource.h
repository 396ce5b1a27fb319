// Resource identifiers of the profile editor. Every template and string
// exists in English and German (LANGUAGE blocks of the same identifiers).
#pragma once

#define IDD_EDITOR          100
#define IDD_NAME            101

#define IDC_PROFILES        1001
#define IDC_NEW             1002
#define IDC_RENAME          1003
#define IDC_REMOVE          1004
#define IDC_MODE            1005
#define IDC_BG_QUALITY      1006
#define IDC_FG_QUALITY      1007
#define IDC_BITONAL         1008
#define IDC_PICTURE         1009
#define IDC_DESCRIPTION     1010
#define IDC_APPLY           1011
#define IDC_SAVE            1012
#define IDC_NAME            1013
#define IDC_SETTINGS_GROUP  1014

#define IDS_TITLE           1
#define IDS_NEW_TITLE       2
#define IDS_RENAME_TITLE    3
#define IDS_REMOVE_QUESTION 4
#define IDS_REFUSED         5
#define IDS_UNSAVED         6
#define IDS_COPY_SUFFIX     7
#define IDS_NOT_A_NUMBER    8
#define IDS_CHANGED_ELSEWHERE 9
#define IDS_SESSION_HELD    10
#define IDS_DAMAGED_KEPT    11
