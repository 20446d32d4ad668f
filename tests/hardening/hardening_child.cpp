// The program that the bad-input tests launch: it ends at once, so that a
// launch that succeeds leaves nothing running once it is waited for.
int wmain() { return 0; }
