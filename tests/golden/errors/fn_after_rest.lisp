(fn (a . b c) a)
