// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_INSTALL 101
#define IDD_UNINSTALL 102
#define IDI_SETUP 103
#define IDI_UNINSTALL 104
#define IDS_NOTICE 1

#define IDC_LICENSE 4
#define IDC_README 5
#define IDC_DESTDIR 1000
#define IDC_NOTICE 1005
#define IDC_COPYFILES 1006
#define IDC_STARTMENU 1007
#define IDC_REGISTRY 1008
#define IDC_STARTAPP 1009
#define IDC_STARTUP 1011
