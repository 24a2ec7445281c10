; Elements before the failing one have been evaluated; the value must be a proper list.
(define v 5)
`(a ,(print "evaluated") (b ,@v))
