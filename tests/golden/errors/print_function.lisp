(print car)
