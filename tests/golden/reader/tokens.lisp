; Integers: leading zeros, 64-bit wrap-around without error, no signs.
(print (repr (quote (0 007 9223372036854775807 9223372036854775808 18446744073709551616 99999999999999999999))))
; Signs, quotes, commas and other punctuation inside a token make symbols; "." is a symbol.
(print (repr (quote (-5 + - +5 a'b a,b x"y a`b a@b .x (a . b)))))
; Parentheses end integers and symbols without blanks; () is nil.
(print (repr (quote (a(b)c 12(3)))))
(print (repr (quote ())))
(print (repr (quote ((()) (1 2 3) ( ) ))))
; The shorthands, with blanks and comments between a quote and its expression.
(print (repr (quote ('x `y ,z ,@w , @v ' u ';c
  t))))
(print (repr '`(a ,b ,@c)))
; Comments end symbols; a printed generated symbol does not read back.
(print (repr (quote abc;comment
)))
(print (repr (quote (abc#def ghi
  jkl))))
(print (repr (quote <symbol #5>
)))
