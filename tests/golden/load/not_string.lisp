(load (quote x.lisp))
