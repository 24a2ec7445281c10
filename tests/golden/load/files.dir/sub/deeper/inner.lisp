(print (read-file "data.txt"))
