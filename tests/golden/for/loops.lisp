; Hand-written iterators: each call answers a one-element list, or nil at the end.
(define counter (fn (n) ((fn (i) (fn () (if (< i n) ((fn (v) (set-symbol (quote i) (+ i 1)) (list v)) i) nil))) 0)))
(define answers (fn (. items) (fn () (if (= items nil) nil ((fn (head) (set-symbol (quote items) (cdr items)) head) (car items))))))
; the value is the last pass's body value, nil when nothing ran or the body is empty
(print (repr (for x (counter 0) (error "e" "never"))))
(print (for x (counter 3) x))
(print (repr (for x (counter 2))))
; only the car of an answer is the item; (nil) hands out nil and the loop goes on
(print (for x (answers (list 1 2)) x))
(print (repr (for x (answers (list nil) (list "after nil")) (print (repr x)))))
; the iterator is called once more after the last item
(define noisy (fn (n) ((fn (inner) (fn () (print "call") (inner))) (counter n))))
(for x (noisy 2) (print (+ x 10)))
; each pass has its own scope: closures keep their pass's item, set-symbol stays local
(define closures nil)
(for x (counter 3) (define closures (cons (fn () x) closures)))
(print (repr (apply list (list ((car closures)) ((car (cdr closures))) ((car (cdr (cdr closures))))))))
(for x (counter 2) (print (repr x)) (set-symbol (quote x) 99))
; the variable is not visible after the loop; the iterator expression does not see it
(define x "outer")
(print (for x (answers (list x)) x))
(print x)
; an accumulator of an enclosing scope collects results
(print ((fn (total) (for n (counter 5) (set-symbol (quote total) (+ total n))) total) 0))
; a generated symbol is a loop variable too
(define g (gensym))
(print (apply for (list g (quote (counter 4)) g)))
; many passes do not grow the stack
(print (for i (counter 20000) i))
