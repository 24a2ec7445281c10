; Parents are evaluated first; the attributes are checked when the class is built.
(make-class ((print "parent")) a "b")
