#ifndef CONFWATCH_RELOAD_H
#define CONFWATCH_RELOAD_H

/* (Re)start the quiet time after which /sbin/reknit runs once. */
void reload_schedule(void);

#endif
