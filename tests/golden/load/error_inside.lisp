; The loaded file's frames show under a LoadFrame line naming the path.
(load "sub/bad.lisp")
