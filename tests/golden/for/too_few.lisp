(for x)
