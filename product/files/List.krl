; Kestrune 2 macro list: your macros (stand-in)
; Setup never overwrites this list when you have changed it.
[macro My first macro]
msgbox "Edit this macro in the Kestrune editor"
