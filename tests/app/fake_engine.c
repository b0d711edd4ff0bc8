/* A library with the engine's entry-point names; the bodies do nothing. */
/* One stub per line. */
/* clang-format off */
int clam_scanbuff(void) { return 0; }
int clam_scanfile(void) { return 0; }
int clam_scandesc(void) { return 0; }
int clam_retflevel(void) { return 0; }
int clam_retver(void) { return 0; }
int clam_strerror(void) { return 0; }
int clam_debug(void) { return 0; }
int clam_build(void) { return 0; }
int clam_free(void) { return 0; }
int clam_loaddbdir(void) { return 0; }
int clam_loaddb(void) { return 0; }
#if ENTRY_COUNT == 12
int clam_cvdverify(void) { return 0; }
#endif
/* clang-format on */
