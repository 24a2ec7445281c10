(set-symbol (gensym) 1)
