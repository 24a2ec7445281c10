(get-closure 5)
