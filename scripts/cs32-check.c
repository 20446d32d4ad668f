/* Can this host run 32-bit x86 code inside a 64-bit process?
 *
 * Wine's WoW64 mode, and with it every i686 test, needs exactly that: it
 * far-returns into the 32-bit user code segment (selector 0x23). Some
 * hypervisors refuse that segment, and the far return then faults.
 *
 * Prints one line and exits 0 ("yes: ..."), or 1 ("no: ..."). Built and run
 * by scripts/common.sh with the host's own C compiler.
 *
 * The 32-bit code and its stack lie below 4 GB (MAP_32BIT), since 32-bit
 * code sees only the low half of every address; a stack above 4 GB would
 * fault in the 32-bit code itself on a host that allows it. The fault
 * handler runs on an alternate stack, so it runs whichever mode faulted. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

static uint64_t saved_rsp;

static void refused(int sig) {
  static const char text[] =
      "no: the far return to the 32-bit code segment (selector 0x23) faulted; "
      "the processor or hypervisor refuses 32-bit code\n";
  (void)sig;
  if (write(1, text, sizeof text - 1) < 0) _exit(1);
  _exit(1);
}

int main(void) {
  static char alternate[1 << 16];
  stack_t stack;
  memset(&stack, 0, sizeof stack);
  stack.ss_sp = alternate;
  stack.ss_size = sizeof alternate;
  sigaltstack(&stack, NULL);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = refused;
  action.sa_flags = SA_ONSTACK;
  sigaction(SIGSEGV, &action, NULL);
  sigaction(SIGBUS, &action, NULL);
  sigaction(SIGILL, &action, NULL);

  unsigned char *code = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  unsigned char *low_stack = mmap(NULL, 1 << 16, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (code == MAP_FAILED || low_stack == MAP_FAILED) {
    printf("no: could not map memory below 4 GB for the check\n");
    return 1;
  }
  /* 32-bit, at code+0:  mov eax,32; push 0x33; push code+16; retf
     64-bit, at code+16: movabs rcx,<back>; jmp rcx                   */
  static const unsigned char bytes[] = {
      0xb8, 32, 0, 0, 0, 0x6a, 0x33, 0x68, 0, 0, 0, 0, 0xcb, 0x90, 0x90, 0x90,
      0x48, 0xb9, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xe1};
  memcpy(code, bytes, sizeof bytes);
  uint32_t landing = (uint32_t)(uintptr_t)(code + 16);
  memcpy(code + 8, &landing, sizeof landing);

  uint32_t result;
  __asm__ volatile(
      "lea 1f(%%rip), %%rax\n\t"
      "mov %%rax, 18(%%rdi)\n\t"
      "mov %%rsp, %[saved]\n\t"
      "mov %%rsi, %%rsp\n\t"
      "pushq $0x23\n\t"
      "pushq %%rdi\n\t"
      "lretq\n"
      "1:\n\t"
      "mov %[saved], %%rsp\n\t"
      : "=a"(result), [saved] "+m"(saved_rsp)
      : "D"(code), "S"(low_stack + (1 << 16))
      : "rcx", "memory", "cc");
  if (result != 32) {
    printf("no: 32-bit code ran but returned %u instead of 32\n", result);
    return 1;
  }
  printf("yes: 32-bit code ran in this 64-bit process and returned to it\n");
  return 0;
}
