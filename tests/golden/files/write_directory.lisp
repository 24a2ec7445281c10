(write-file "." "text")
