; nil has no car: the prelude tests for nil first.
(print (cdr '(1 2)))
(car nil)
