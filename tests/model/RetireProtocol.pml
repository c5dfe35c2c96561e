/* How the audio engine frees what the render thread may still read (AudioEngine::retire and
 * collectRetired), on a machine whose stores wait in a store buffer before other threads see them,
 * as x86's do (TSO) and as C++'s release stores allow.
 *
 * The main thread publishes a new input list in place of the old one, reads the render epoch (the
 * count of completed blocks), and frees the old list once the epoch has passed what it read. The
 * render thread, block after block, reads the list pointer, uses that list, and counts the block.
 * With RMW, the main thread reads the epoch with a read-modify-write (fetch_add(0)), as the render
 * thread counts its blocks: on such a machine a locked read-modify-write empties the store buffer
 * first, and in C++ all read-modify-writes of one variable are ordered, the later acquiring what
 * the earlier released. With a plain load, spin finds a block that reads the old list after it was
 * freed.
 */

byte ptr = 0;      /* the list the render thread finds: 0 the old, 1 the new */
bool buffered = 0; /* main's store of 1 waits in its store buffer */
byte epoch = 0;
bool freed = 0;    /* the old list has been freed */

active proctype Main() {
    byte seen;
    buffered = 1;
#ifdef RMW
    atomic { ptr = 1; buffered = 0 }
#endif
    seen = epoch;
    (epoch > seen);
    freed = 1
}

/* The store buffer empties whenever the machine gets to it. */
active proctype StoreBuffer() {
    atomic { buffered -> ptr = 1; buffered = 0 }
}

active proctype Render() {
    byte list;
    do
    :: epoch < 4 ->
        list = ptr;
        assert(!(list == 0 && freed)); /* the block starts with a list that is still there */
        assert(!(list == 0 && freed)); /* ... and it is still there when the block ends */
        epoch++
    :: else -> break
    od
}
