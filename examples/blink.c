/* Toggles P1.0 about twice a second on a 12 MHz 8051 core: the smallest program worth
   burning, used as the single-file example. Built with: sdcc -mmcs51 blink.c */
#include <8051.h>

static void delay(unsigned int count) {
  while (count--) {
    __asm nop __endasm;
  }
}

void main(void) {
  for (;;) {
    P1_0 = !P1_0;
    delay(50000);
  }
}
