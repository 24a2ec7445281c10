(read-file "missing.txt")
