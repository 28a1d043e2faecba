// Entry of the program (being written).
int main() { return 0; }
