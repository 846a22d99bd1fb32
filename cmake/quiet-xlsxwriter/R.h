/* libxlsxwriter prints its diagnostics to standard error, except where it is
   built for R (USE_R_LANG): then through R's REprintf. Our Windows builds
   compile it that way with this REprintf, which prints nothing: Veltrane
   reports every failure itself, in the user's words. */
#define REprintf(...) ((void)0)
