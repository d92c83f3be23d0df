; Kestrune 2 macro list: converts macros of version 1.x (stand-in)
[macro Convert old macros]
; reads List.ini and the m subfolder of a 1.x installation and writes
; a new macro list beside it
ask folder "Folder of Kestrune 1.x"
convert "$folder$\List.ini"
