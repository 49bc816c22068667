/* Resource ids shared by renewkit.rc and the code. Plain defines: the resource
   compiler reads this file too. */
#ifndef RENEWKIT_RESOURCE_IDS_H
#define RENEWKIT_RESOURCE_IDS_H

#define IDB_TRAY_BACKGROUND 168
#define IDB_TRAY_CLOSE_HOVER 170
#define IDI_TRAY 141
#define IDD_TRAY 167
#define IDD_DOTNET 177
#define IDB_BLOCK_EMPTY 1062
#define IDB_BLOCK_FILLED 1063

#define IDG_BACKGROUND 188
#define IDG_PROGRESS 189
#define IDG_MINIMIZE_NORMAL 190
#define IDG_MINIMIZE_PRESSED 191
#define IDG_MINIMIZE_HOVER 192
#define IDG_MINIMIZE_DISABLED 193
#define IDG_SECOND_NORMAL 194
#define IDG_SECOND_PRESSED 195
#define IDG_SECOND_HOVER 196
#define IDG_SECOND_DISABLED 197

#endif
