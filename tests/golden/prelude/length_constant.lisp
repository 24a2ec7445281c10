(length true)
