#!/usr/bin/env python3
"""Writes random Velune programs that exercise the generics on every built-in type, user
methods in front of the library's, rebinding library names mid-program, errors inside
methods, and calls of the program's own functions that need their scopes at different points. Each program is run with and without fast paths and the runs must agree exactly.

usage: generate.py SEED COUNT DIRECTORY"""
import os
import random
import sys

ATOMS = ['0', '1', '-7', '42', '"a"', '""', '"hello world"', 'nil', 'true', 'false', "'sym",
         '(list 1 2)', '(list "x" "y")', '(list)', '(list (list 1) 2)', '(dict)', 'd', 'p', 'integer',
         'string', 'cell', '(cons 1 2)', '(make-point 1 2)', '(gensym)', 'car']

GENERIC_CALLS = [
    '(+ {a} {b})', '(+ {a} {b} {c})', '(+ {a})', '(add {a} {b})', '(sum (list {a} {b}))',
    '(length {a})', '(at {a} {i})', '(at d "k")', '(in {a} {b})', '(to-string {a})', '(repr {a})',
    '(to-symbol {a})', '(is-instance {a} {t})', '(is-string {a})', '(is-integer {a})', '(is-symbol {a})',
    '(is-cons {a})', '(is-dict {a})', '(is-nil {a})', '(is-list {a})', '(reverse {a})', '(str {a} {b})',
    '(set-at d {i} {a})', '(set-at {a} {i} {b})', '(begin (set (at d "k") {a}) (at d "k"))',
    '(indent-block {a} {b})', '(indent-block "  " (list {a} (list {b} {c})))', '(flatten {a})',
    '(flatten (list {a} (list {b} (list {c}))))', '(lines-to-string {a})', '(lines-to-string (list {a} (list {b})))',
    '(yaml-quote {a})', '(yaml-quote "a\\"b\\\\c\\nd")', '(str {a} {b} {c})', '(indent {a} {b})',
    '(x {a})', '(y p)', '(begin (set-x p {a}) (x p))', '(area {a} {b})', '(area p {b})', '(to-string p)',
    '(let v {a} (+ v {b}))', '((fn (u w) (str u w)) {a} {b})', '((fn (u) (at u {i})) {a})', '((fn (u) u))',
    '(pair-up {a} {b})', '(nest {a})', '(own-scope {a})', '(reset {a} {b})', '(gather {n} {a})', '(chain {n} {a})',
    '(pick {n} {a})', '(down {n} {a})', '(down 40 {a})', '(list (pick 1 {a}) (down 2 {a}))',
]

# The program's own functions: calls inside calls, a scope read through current-scope, a
# parameter set, a tail loop, a recursion whose callees need their scopes, the if under
# another name choosing between calls, and a recursion deeper than a frame holds.
FUNCTIONS = [
    '(define pair-up (fn (a b) (list a b)))',
    '(define nest (fn (a) (pair-up a (pair-up a (length a)))))',
    '(define own-scope (fn (a) (list (eval current-scope (quote a)) a)))',
    '(define reset (fn (a b) (set-symbol (quote a) (pair-up b a)) (list a b)))',
    '(define gather (fn (n acc) (if (= n 0) acc (gather (- n 1) (cons (own-scope acc) (nest n))))))',
    '(define chain (fn (n a) (if (= n 0) (nest a) (pair-up (chain (- n 1) (reset a n)) n))))',
    '(define choose-if if)',
    '(define pick (fn (c a) (choose-if (= c 0) (pair-up a c) (nest (pick (- c 1) a)))))',
    '(define down (fn (n a) (if (< n 1) a (- 1 (- 0 (down (- n 1) a))))))',
]

TYPES = ['integer', 'string', 'cell', 'unique', 'dictionary', 'symbol', 'point', 'function']

STATEMENTS = [
    '(defmethod (length (x {t})) {a})',
    '(defmethod (to-string (x {t})) "custom")',
    '(defmethod (add (x {t}) (y {t})) (list x y))',
    '(defmethod (repr (x point)) "a point")',
    '(defmethod (in (x {t}) y) (error (quote custom) "in a method"))',
    '(define add (fn (x y) (list "rebound" x y)))',
    '(define is-instance (fn (x y) (= y integer)))',
    '(set-key method-store "length" (cdr (get-key method-store "length")))',
    '(set-key d "k" {a})',
    '(set (x p) {a})',
    '(define saved-filter filter)',
    '(define text {a})',
    '(define name (fn (x) "rebound getter"))',
    '(define match-types (fn (a b) true))',
    '(define nth (fn (n l) (car l)))',
    '(define choose-if (fn (c a b) (list c a b)))',
    '(defmethod (set-at (x dictionary) (i string) (v point)) "user set-at")',
    '(defmethod (set-at (x {t}) i v) (list "set-at on" i))',
    '(defgeneric (area s k))',
    '(defmethod (area (s point) k) (+ (x s) k))',
    '(defmethod (area (s {t}) (k integer)) (car s))',
    '(defmethod (area s k) (area (make-point k s) 1))',
    '(defmethod (to-string (q point)) (+ "P" (to-string (y q))))',
    '(set-key method-store "area" (cons (list (list 1) (fn (a) a)) (get-key method-store "area")))',
    '(set-key method-store "x" (cons 5 (get-key method-store "x")))',
    '(set-key method-store "y" (cons (list (list (list (quote q) point)) (quote y)) (get-key method-store "y")))',
    '(defclass point3 (point) z)',
    '(set-symbol (quote p) (make-point3 {a} 2 3))',
    '(for i (range 3) (print (list i {a})))',
    '(define r (range 2))',
    '(print (list (r) (r) (r)))',
]


def typed(rng, kind, depth):
    """An expression that yields a value of `kind`, so most programs run past their first lines."""
    leaf = depth > 2 or rng.random() < 0.4
    if kind == 'int':
        if leaf:
            return rng.choice(['0', '1', '-7', '42', '9223372036854775807'])
        return rng.choice(['(+ {a} {b})', '(length {s})', '(length {l})', '(+ {a} {b} {a})', '(sum (list {a} {b}))',
                           '(at (list {a} {b}) 1)']).format(
            a=typed(rng, 'int', depth + 1), b=typed(rng, 'int', depth + 1), s=typed(rng, 'str', depth + 1),
            l=typed(rng, 'list', depth + 1))
    if kind == 'str':
        if leaf:
            return rng.choice(['"a"', '""', '"hello world"', '"q\\"uote"', '(at d "k")'])
        return rng.choice(['(+ {s} {t})', '(to-string {a})', '(repr {s})', '(at {s} 0)', '(str {s} {a} {l})',
                           '(to-string {l})', '(repr {l})', '(to-string d)']).format(
            s=typed(rng, 'str', depth + 1), t=typed(rng, 'str', depth + 1), a=typed(rng, 'int', depth + 1),
            l=typed(rng, 'list', depth + 1))
    if leaf:
        return rng.choice(['nil', '(list 1 2)', '(list "x" (list 3))', "(list 'a 'b)"])
    return rng.choice(['(+ {l} {m})', '(list {a} {s})', '(reverse {l})', '(cons {a} {l})', '(+ nil {l})',
                       '(list (in {l} {a}) (is-list {l}) (is-string {s}) (is-instance {a} integer))']).format(
        l=typed(rng, 'list', depth + 1), m=typed(rng, 'list', depth + 1), a=typed(rng, 'int', depth + 1),
        s=typed(rng, 'str', depth + 1))


def expression(rng, depth=0):
    if depth == 0 and rng.random() < 0.7:
        return typed(rng, rng.choice(['int', 'str', 'list']), 0)
    if depth > 2 or rng.random() < 0.4:
        return rng.choice(ATOMS)
    template = rng.choice(GENERIC_CALLS)
    return template.format(a=expression(rng, depth + 1), b=expression(rng, depth + 1),
                           c=expression(rng, depth + 1), i=rng.choice(['0', '1', '2', '-1', '"k"']),
                           t=rng.choice(TYPES), n=rng.choice(['0', '1', '3']))


def program(rng):
    lines = ['(defclass point () x y)', '(define p (make-point 1 2))', '(define d (dict))',
             '(set-key d "k" "v")'] + FUNCTIONS
    for _ in range(rng.randint(3, 12)):
        if rng.random() < 0.15:
            stmt = rng.choice(STATEMENTS)
            lines.append(stmt.format(t=rng.choice(TYPES), a=expression(rng, 2)))
        else:
            lines.append('(print (repr {}))'.format(expression(rng)))
    return '\n'.join(lines) + '\n'


def main():
    seed, count, directory = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    rng = random.Random(seed)
    os.makedirs(directory, exist_ok=True)
    for n in range(count):
        with open(os.path.join(directory, 'random_%03d.lisp' % n), 'w') as f:
            f.write(program(rng))


if __name__ == '__main__':
    main()
