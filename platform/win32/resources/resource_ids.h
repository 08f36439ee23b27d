// Identifiers of the saver's resources and dialog controls, shared by the resource
// script and the code. Plain #defines: the resource compiler reads this file too.
#pragma once

#define LF_ICON_SAVER 100         // icon group: one 32 x 32, 16-colour image
#define LF_STRING_NAME 1          // the name the system lists the saver under
#define LF_DIALOG_CONFIG 2003     // the configuration dialog
#define LF_DIALOG_ABOUT 104       // the About dialog

#define LF_CONTROL_OK 1000
#define LF_CONTROL_DEEP_BLUE 1001
#define LF_CONTROL_MALACHI_RED 1002
#define LF_CONTROL_CANCEL 1003
#define LF_CONTROL_ABOUT 1004
#define LF_CONTROL_LOW_QUALITY 1009
#define LF_CONTROL_NONE -1        // statics and group boxes: 0xFFFF in the template

// The system's predefined control classes, written as ordinals into the templates.
#define LF_CLASS_BUTTON 0x0080
#define LF_CLASS_STATIC 0x0082
