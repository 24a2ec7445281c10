(with-exec-mode (quote weird) car)
