(fn (a .) a)
