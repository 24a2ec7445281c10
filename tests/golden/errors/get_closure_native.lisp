(get-closure car)
