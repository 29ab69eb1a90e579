/* Echoes every byte received on the UART at 9600 bit/s (11.0592 MHz crystal, timer 1 in
   mode 2). The second program of the two-file example for the RM5168's bank 1.
   Built with: sdcc -mmcs51 echo.c */
#include <8051.h>

void main(void) {
  SCON = 0x50; /* mode 1, receiver on */
  TMOD = 0x20; /* timer 1, 8-bit auto-reload */
  TH1 = 0xFD;  /* 9600 bit/s */
  TR1 = 1;
  for (;;) {
    while (!RI) {
    }
    RI = 0;
    SBUF = SBUF;
    while (!TI) {
    }
    TI = 0;
  }
}
