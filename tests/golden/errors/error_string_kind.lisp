(error "syntax-error" "(run) needs at least one argument")
