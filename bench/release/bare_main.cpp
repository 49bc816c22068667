// rk_bare: starts and ends at once. bench/release/run.sh times its start under
// Wine as the floor of any program's run there.
int main() { return 0; }
