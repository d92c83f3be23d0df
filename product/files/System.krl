; Kestrune 2 macro list: System (stand-in)
[macro Show desktop]
key Win+D
[macro Open Notepad]
run "notepad.exe"
[macro Lock clipboard text]
clip get
clip set "$clip$"
