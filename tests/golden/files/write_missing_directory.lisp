(write-file "no/such/dir/out.txt" "text")
