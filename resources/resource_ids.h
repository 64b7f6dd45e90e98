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

/* The properties dialog, its field editors, Split Values, Editing Values, Automatically Fill Values. */
#define IDD_PROPERTIES 691
#define IDR_PROPERTIES_ACCELERATORS 234
#define IDC_PROPERTIES_TAB 1255
#define IDC_PROPERTIES_METADATA 1257
#define IDC_PROPERTIES_DETAILS 1019
#define IDC_PROPERTIES_APPLY 1074
#define IDC_PROPERTIES_TOOLS 1100
#define ID_PROPERTIES_NEXT_TAB 40067
#define ID_PROPERTIES_PREVIOUS_TAB 40068
#define IDD_FIELD_EDIT 110
#define IDD_FIELD_ADD 121
#define IDD_FIELD_EDIT_MULTI 688
#define IDD_FIELD_ADD_MULTI 689
#define IDC_FIELD_NAME 1019
#define IDC_FIELD_VALUE 1020
#define IDC_FIELD_NAME_PREFIX 65535
#define IDC_FIELD_VALUE_PREFIX 1329
#define IDC_FIELD_SEMICOLON 1168
#define IDC_FIELD_TAB 1255
#define IDC_FIELD_SINGLE 1077
#define IDC_FIELD_TABLE 1254
#define IDD_SPLIT_VALUES 694
#define IDC_SPLIT_SEPARATORS 1077
#define IDC_SPLIT_LINE_BREAKS 1165
#define IDD_TABLE_EDIT 233
#define IDC_TABLE_EDIT_LIST 1269
#define IDD_AUTOFILL 232
#define IDC_AUTOFILL_HEADER_SOURCE 1303
#define IDC_AUTOFILL_SOURCE 1275
#define IDC_AUTOFILL_PASTE 1270
#define IDC_AUTOFILL_HEADER_PATTERN 1304
#define IDC_AUTOFILL_PATTERN 1265
#define IDC_AUTOFILL_HEADER_PREVIEW 1307
#define IDC_AUTOFILL_PREVIEW 1111
#define IDC_AUTOFILL_AUTOCAPS 1267

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
/* The DSP chain panel and the "DSP Settings" dialog that hosts it (the panel's control id there: 123). */
#define IDD_DSP_PANEL 676
#define IDD_DSP_DIALOG 677
#define IDC_DSP_PANEL 123
#define IDC_DSP_ACTIVE_HEADING 1293
#define IDC_DSP_ACTIVE 1031
#define IDC_DSP_CONFIGURE 1218
#define IDC_DSP_ADD 1033
#define IDC_DSP_REMOVE 1005
#define IDC_DSP_UP 1006
#define IDC_DSP_DOWN 1007
#define IDC_DSP_AVAILABLE_HEADING 1281
#define IDC_DSP_AVAILABLE 1032
#define IDC_DSP_PRESETS_HEADING 1246
#define IDC_DSP_PRESET_NAME 1242
#define IDC_DSP_PRESET_LOAD 1243
#define IDC_DSP_PRESET_SAVE 1244
#define IDC_DSP_PRESET_DELETE 1245
/* The preferences dialog, its empty page for branches, and the Music folders and Playback pages. */
#define IDD_PREFERENCES 695
#define IDC_PREFERENCES_TREE 1068
#define IDC_PREFERENCES_PAGE_AREA 1297
#define IDC_PREFERENCES_APPLY 1074
#define IDD_PREFERENCES_BRANCH 686
#define IDD_PREFERENCES_FOLDERS 699
#define IDC_FOLDERS_HEADING 1319
#define IDC_FOLDERS_LIST 1318
#define IDC_FOLDERS_ADD 1033
#define IDC_FOLDERS_REMOVE 1005
#define IDC_FOLDERS_INCLUDE_SYSTEM 1165
#define IDC_FOLDERS_SYSTEM_LIST 1070
#define IDC_FOLDERS_MONITOR 1166
#define IDD_PREFERENCES_PLAYBACK 102
#define IDC_PLAYBACK_DEVICE_HEADING 1290
#define IDC_PLAYBACK_DEVICE 1287
#define IDC_PLAYBACK_REPLAYGAIN_HEADING 1291
#define IDC_PLAYBACK_REPLAYGAIN_AREA 1296
#define IDC_PLAYBACK_REPLAYGAIN_PANEL 122
/* The Music folders page's Add and Remove pictures (PNG, drawn by tools/images/draw_pictures.py). */
#define IDR_PNG_FOLDER_ADD 269
#define IDR_PNG_FOLDER_REMOVE 270
