// Resource IDs of the vxRSS library: the settings dialog, its bitmaps and the tree it creates at run time.
#pragma once

#define IDD_RSSNEWS_SETTING 26305
#define IDB_RSSNEWS_STATE 26306
#define IDB_RSSNEWS_FOLDER 26307
#define IDC_RSSNEWS_TREE 1340

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
