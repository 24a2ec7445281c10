(join '("a" b "c") "-")
