; Turns of a tail loop that alternate between two paths (a branch of if, and a let inside the
; other branch) are not one repeated group: every turn's lines show, in order.
(define zig (fn (n flag) (if (= n 0) (car n) (if flag (zig (- n 1) false) (let m (- n 1) (zig m true))))))
(zig 5 true)
