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

/* The ReplayGain settings panel and the dialog that hosts it (the panel's control id there: 122). */
#define IDD_REPLAYGAIN_PANEL 207
#define IDD_REPLAYGAIN_DIALOG 675
#define IDC_REPLAYGAIN_PANEL 122
#define IDC_REPLAYGAIN_ACTIVE 1165
#define IDC_REPLAYGAIN_TRACK 1331
#define IDC_REPLAYGAIN_ALBUM 1332
#define IDC_REPLAYGAIN_PREAMP_HEADING 1290
#define IDC_REPLAYGAIN_WITH_LABEL 1327
#define IDC_REPLAYGAIN_WITH_SLIDER 1128
#define IDC_REPLAYGAIN_WITH_VALUE 1129
#define IDC_REPLAYGAIN_WITHOUT_LABEL 1328
#define IDC_REPLAYGAIN_WITHOUT_SLIDER 1130
#define IDC_REPLAYGAIN_WITHOUT_VALUE 1131
#define IDC_REPLAYGAIN_HELP 1203

/* The volume popup and its slider; the Volume button's pictures, loud to silent. */
#define IDD_VOLUME_POPUP 130
#define IDC_VOLUME_SLIDER 1017
#define IDR_PNG_VOLUME_HIGH 111
#define IDR_PNG_VOLUME_MEDIUM 271
#define IDR_PNG_VOLUME_LOW 272
#define IDR_PNG_VOLUME_MUTED 273

/* The main window's pictures (PNG, drawn by tools/images/draw_pictures.py): row icons, transport buttons. */
#define IDR_PNG_ROW_ALBUM 103
#define IDR_PNG_FULLSCREEN 105
#define IDR_PNG_PAUSE 106
#define IDR_PNG_PLAY 107
#define IDR_PNG_ROW_FOLDER 108
#define IDR_PNG_MENU 110
#define IDR_PNG_BACK 260
#define IDR_PNG_FORWARD 261
#define IDR_PNG_REWIND 283
#define IDR_PNG_FAST_FORWARD 284
#define IDR_PNG_REPEAT 286
