(set 5 1)
