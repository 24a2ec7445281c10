; relative paths are relative to this file's directory while it loads
(print (read-file "data.txt"))
(write-file "written.txt" "written from sub")
(load "deeper/inner.lisp")
(print (read-file "data.txt"))
"sub done"
