# A Tk entry for the keyboard tests, speaking as x11_textbox does: "ready
# WINDOW PID" once shown, "focus" when it gets the keyboard focus, "text 0
# JSON" at every change, and "done COMMAND" for the commands of its input
# (clear, focus text); it ends when its input closes. Enter inserts a line
# break, as a multi-line field would take it.
fconfigure stdout -buffering line -encoding utf-8
wm title . "Harvel Tk entry"
entry .e -textvariable content -width 40
pack .e -fill x
proc report {args} {
  set json [string map {\\ \\\\ \" \\\" \n \\n \t \\t} $::content]
  puts "text 0 \"$json\""
}
proc command {} {
  if {[gets stdin line] < 0} { exit }
  if {$line eq "clear"} { set ::content "" }
  if {$line eq "focus text"} { focus .e }
  puts "done $line"
}
trace add variable content write report
bind .e <Return> {%W insert insert "\n"}
bind .e <FocusIn> {puts focus}
fileevent stdin readable command
focus .e
update idletasks
puts "ready [expr {[winfo id .]}] [pid]"
