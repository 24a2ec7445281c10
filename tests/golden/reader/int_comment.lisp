(print 12;note
)
