/* Resource ids shared by the resource scripts (the .rc files beside this header) and the code. Plain
   #defines only: windres reads this file too. */
#pragma once

/* Progress dialogs of threaded_process: one bar; one bar and the item line; two bars and the item line. */
#define IDD_PROGRESS 679
#define IDD_PROGRESS_ITEM 219
#define IDD_PROGRESS_TWO_BARS 680
#define IDC_PROGRESS_ABORT 2
#define IDC_PROGRESS_MINIMIZE 3
#define IDC_PROGRESS_PAUSE 4
#define IDC_PROGRESS_BAR 1057
#define IDC_PROGRESS_BAR_SECOND 1058
#define IDC_PROGRESS_ITEM 1077
#define IDC_PROGRESS_ITEM_LABEL 1211

/* The popup notice and the playback error window: a resizable frame filled by a read-only text. */
#define IDD_POPUP_NOTICE 256
#define IDC_POPUP_NOTICE_TEXT 1077

/* The about box and its picture; the licence pages. */
#define IDD_ABOUT 304
#define IDC_ABOUT_VERSION 1316
#define IDC_ABOUT_NOTICE 1317
#define IDC_ABOUT_LINKS 1313
#define IDC_ABOUT_PICTURE 1318
#define IDR_PROGRAM_PICTURE 113
#define IDR_LICENSE_HTML 265
#define IDR_LICENSE_APACHE 305

/* The install wizard: host and its four pages. */
#define IDD_INSTALL_HOST 267
#define IDD_INSTALL_INTRO 268
#define IDD_INSTALL_DESTINATION 696
#define IDD_INSTALL_WORKING 697
#define IDD_INSTALL_DONE 698
#define IDC_INSTALL_LABEL1 1067
#define IDC_INSTALL_LABEL2 1068
#define IDC_INSTALL_DESTINATION_LABEL 1332
#define IDC_INSTALL_DESTINATION 1077
#define IDC_INSTALL_BROWSE 1270
#define IDC_INSTALL_STATUS 1317

/* The middle-button autoscroll indicator. */
#define IDI_AUTOSCROLL 2345
