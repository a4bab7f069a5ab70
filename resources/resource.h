// Resource ids shared by the resource script and the program.
#ifndef VELMOT_RESOURCE_H
#define VELMOT_RESOURCE_H

// Icon group of the notification icon: a 32 x 32 and a 16 x 16 image, 16 colours each.
#define IDI_TRAY 101

// The settings dialog and its controls.
#define IDD_SETTINGS 102
#define IDC_TIME_MINUTE 1000
#define IDC_TIME_HOUR 1001
#define IDC_TIME_RADIO 1002
#define IDC_WAIT_RADIO 1003
#define IDC_WAIT_MINUTES 1004
#define IDC_WAIT_HOURS 1005

#endif
