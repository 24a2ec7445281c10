(use)
