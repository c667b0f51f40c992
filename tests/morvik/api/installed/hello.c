/* A program of morvik's users: the language of its argument, with the installed models. */
#include <morvik/morvik.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2 || C_InitLanguageClassifier("lid.cfg") != 0) return 1;
    printf("%s\n", C_ClassifyLanguage(argv[1]));
    return C_Close();
}
