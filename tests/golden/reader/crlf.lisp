; A CR before the LF ends up in the symbol it follows, or is a symbol of its own.
(print (repr (quote (abc
  def
  "x
y"
  (g)))))