(error (quote syntax-error) "(use) needs at least one argument")
