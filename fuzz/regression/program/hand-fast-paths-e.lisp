(unset 'length)
(print (length "ab"))
