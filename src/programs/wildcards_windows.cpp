// The Windows start-up of the programs expands the wildcard patterns of the
// command line ("consegne\*", "*.asm"), as a shell does elsewhere: the
// command prompt leaves them to the program. The programs themselves never
// expand a name.
extern "C" {
int _dowildcard = -1;
}
