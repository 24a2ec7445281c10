; A call run in its caller's frame makes its scope only when something needs it: the scope
; itself, a form handed whole to be evaluated, a native given the scope. Before that its
; parameters are read from the call's values; after, from the scope.
(define minus-one (- 0 1))
(define show (fn (a b) current-scope))
(define call-show (fn (x) (eval (show x (- x 1)) (quote (list a b)))))
(print (call-show 5))
(define same (fn (a) (eval current-scope (quote (define z 2))) (eval current-scope (quote (list a z)))))
(define call-same (fn (x) (same (- x 1))))
(print (call-same 3))
(define maker (fn (k) (fn (a) parent-scope)))
(define made (maker 7))
(define call-made (fn (x) (eval (made x) (quote k))))
(print (call-made 1))
; A define in the body, then the defined name and a parameter read from the scope.
(define defines (fn (a) (define b (- a 1)) (- b a)))
(define call-defines (fn (x) (- (defines x) minus-one)))
(print (call-defines 10))
; set-symbol of a parameter changes the scope the later forms read.
(define sets (fn (a) (set-symbol (quote a) 5) a))
(define call-sets (fn (x) (- (sets x) x)))
(print (call-sets 1))
; A closure made in the body keeps the call's values.
(define adder (fn (a) (fn (b) (- a (- 0 b)))))
(define call-adder (fn (x) ((adder x) 10)))
(print (call-adder 4))
; A callee returns into its caller's deferred scope, which a native given the scope then needs.
(define dec (fn (a) (- a 1)))
(define both (fn (a) (list (dec a) (eval current-scope (quote a)) (dec (dec a)))))
(define call-both (fn (x) (both (- x 1))))
(print (call-both 9))
; A parameter named like a global function is the head that calls; a global that is some
; other function's parameter is still found.
(define heads (fn (car) (car (list 1 2 3))))
(define call-heads (fn (x) (heads x)))
(print (call-heads cdr))
(define a 100)
(define global-a (fn (x) (- a x)))
(define call-global-a (fn (x) (global-a (- x 1))))
(print (call-global-a 1))
(define none (fn () 5))
(define call-none (fn (x) (- (none) x)))
(print (call-none 2))
; Deep in-frame recursion through deferred scopes, and an error after one is made.
(define down (fn (n) (if (= n 0) 0 (- (down (- n 1)) minus-one))))
(define call-down (fn (n) (down n)))
(print (call-down 300))
; Parameters read after a call returns, across the frames a deep recursion fills.
(define sum-to (fn (n) (if (= n 0) 0 (- (sum-to (- n 1)) (- 0 n)))))
(print (sum-to 300))
; A tail call takes the frame over with its scope deferred too; one turn needs the scope.
(define walk (fn (n acc)
  (if (= n 0) acc
      (if (= n 3)
          (walk (- n 1) (cons (eval current-scope (quote (list n (car acc)))) acc))
          (walk (- n 1) (cons n acc))))))
(print (walk 6 nil))
(define fails (fn (a) (define b a) (- b nosuch)))
(define call-fails (fn (x) (- (fails x) 1)))
(print (call-fails 2))
