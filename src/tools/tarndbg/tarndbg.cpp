// stub
int main() { return 0; }
