(if true)
