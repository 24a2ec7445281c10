/* The floor of a start-up: a static program that does nothing. */
int main(void) { return 0; }
