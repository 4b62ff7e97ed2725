// Assembler directives that differ between object formats, for code written in top-level asm.
#pragma once

// A global function label. ELF wants the symbol typed as a function; COFF (Windows) has no
// .type directive, and its export table does not care how the symbol is typed.
#if defined(_WIN32)
#define ZORP_ASM_FUNCTION_LABEL(sym) ".globl " sym "\n" sym ":\n"
#else
#define ZORP_ASM_FUNCTION_LABEL(sym) ".globl " sym "\n.type " sym ",@function\n" sym ":\n"
#endif
