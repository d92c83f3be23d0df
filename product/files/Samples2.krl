; Kestrune 2 macro list: Samples (stand-in)
[macro Hello]
msgbox "Hello from Kestrune 2"
[macro Type date]
type "$date$"
[macro Repeat keys]
repeat 3
  key Down
end
