// The few C library functions our programs need, as they link no C runtime:
// what the compiler calls for copies and zeroing it does not inline, and the
// string functions the programs use. Linked into Setup.exe, TolmarDeploy.exe
// and the MSI's action DLL only; every other build keeps the normal runtime.
// Built without builtins and outside link-time optimisation, so none is
// turned into a call to itself or dropped before the code generator asks for
// it.
#include <cstddef>

extern "C" {

void* memcpy(void* destination, const void* source, std::size_t size) {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const unsigned char*>(source);
    while (size--) *to++ = *from++;
    return destination;
}

void* memmove(void* destination, const void* source, std::size_t size) {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const unsigned char*>(source);
    if (to < from) {
        while (size--) *to++ = *from++;
    } else {
        while (size--) to[size] = from[size];
    }
    return destination;
}

void* memset(void* destination, int value, std::size_t size) {
    auto* to = static_cast<unsigned char*>(destination);
    while (size--) *to++ = static_cast<unsigned char>(value);
    return destination;
}

int memcmp(const void* left, const void* right, std::size_t size) {
    const auto* a = static_cast<const unsigned char*>(left);
    const auto* b = static_cast<const unsigned char*>(right);
    for (; size--; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
    }
    return 0;
}

std::size_t strlen(const char* text) {
    std::size_t length = 0;
    while (text[length]) ++length;
    return length;
}

int strcmp(const char* left, const char* right) {
    for (;; ++left, ++right) {
        const auto a = static_cast<unsigned char>(*left);
        const auto b = static_cast<unsigned char>(*right);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

int strncmp(const char* left, const char* right, std::size_t size) {
    for (; size--; ++left, ++right) {
        const auto a = static_cast<unsigned char>(*left);
        const auto b = static_cast<unsigned char>(*right);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
    return 0;
}

char* strchr(const char* text, int character) {
    const char wanted = static_cast<char>(character);
    for (;; ++text) {
        if (*text == wanted) return const_cast<char*>(text);
        if (*text == '\0') return nullptr;
    }
}

char* strpbrk(const char* text, const char* characters) {
    for (; *text; ++text) {
        if (strchr(characters, *text)) return const_cast<char*>(text);
    }
    return nullptr;
}

char* strncpy(char* destination, const char* source, std::size_t size) {
    std::size_t i = 0;
    for (; i < size && source[i]; ++i) destination[i] = source[i];
    for (; i < size; ++i) destination[i] = '\0';
    return destination;
}

}  // extern "C"
