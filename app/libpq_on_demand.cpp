// libpq for the program, loaded the first time the club's code calls it. Most boards are in no
// club, and linking libpq (with its TLS, Kerberos and LDAP libraries) made every start slower
// before main() was even reached. The program is linked with these functions in place of libpq's
// (club/CMakeLists.txt); each loads libpq once, on whichever thread comes first, and calls
// libpq's own. Should libpq fail to load, connecting fails with the reason and nothing else is
// ever reached: every other function needs a connection or a result that only libpq makes.
#include <libpq-fe.h>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct TLibpq {
    void* Handle = nullptr;
    std::string Reason; // why it did not load
};

#ifdef _WIN32
// Windows looks for the DLL beside the program first.
constexpr char LibpqName[] = "libpq.dll";

void* LoadLibpq() {
    return reinterpret_cast<void*>(::LoadLibraryA(LibpqName));
}

std::string LoadError() {
    char text[512] = {};
    const DWORD size = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, ::GetLastError(), 0, text, sizeof text, nullptr);
    std::string error(text, size);
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r'))
        error.pop_back();
    return error.empty() ? "unknown error" : error;
}

void* Symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}
#else
constexpr char LibpqName[] = "libpq.so.5";

void* LoadLibpq() {
    return ::dlopen(LibpqName, RTLD_NOW | RTLD_LOCAL);
}

std::string LoadError() {
    const char* error = ::dlerror();
    return error ? error : "unknown error";
}

void* Symbol(void* handle, const char* name) {
    return ::dlsym(handle, name);
}
#endif

const TLibpq& Libpq() {
    static const TLibpq libpq = [] {
        TLibpq loaded;
        loaded.Handle = LoadLibpq();
        if (!loaded.Handle)
            loaded.Reason = std::string("the PostgreSQL library ") + LibpqName +
                            " could not be loaded: " + LoadError();
        return loaded;
    }();
    return libpq;
}

// libpq's function of the same name and type as ours, or none without libpq.
template <auto Ours>
decltype(Ours) Theirs(const char* name) {
    static const auto found = [name] {
        const TLibpq& libpq = Libpq();
        return libpq.Handle ? reinterpret_cast<decltype(Ours)>(Symbol(libpq.Handle, name))
                            : nullptr;
    }();
    return found;
}

// The connection handed out when libpq is missing: bad, saying why, and finished by nothing.
char missingTag;
PGconn* const Missing = reinterpret_cast<PGconn*>(&missingTag);

} // namespace

// Calls libpq's function of the enclosing one's name with the arguments, or returns `fallback`.
#define BRENNIX_LIBPQ(name, fallback, ...)                                                         \
    if (const auto theirs = Theirs<&name>(#name)) return theirs(__VA_ARGS__);                      \
    return fallback

extern "C" {

PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values, int expand) {
    BRENNIX_LIBPQ(PQconnectdbParams, Missing, keywords, values, expand);
}
PGconn* PQconnectStartParams(const char* const* keywords, const char* const* values, int expand) {
    BRENNIX_LIBPQ(PQconnectStartParams, Missing, keywords, values, expand);
}
PostgresPollingStatusType PQconnectPoll(PGconn* conn) {
    BRENNIX_LIBPQ(PQconnectPoll, PGRES_POLLING_FAILED, conn);
}
ConnStatusType PQstatus(const PGconn* conn) {
    BRENNIX_LIBPQ(PQstatus, CONNECTION_BAD, conn);
}
char* PQerrorMessage(const PGconn* conn) {
    BRENNIX_LIBPQ(PQerrorMessage, const_cast<char*>(Libpq().Reason.c_str()), conn);
}
void PQfinish(PGconn* conn) {
    BRENNIX_LIBPQ(PQfinish, void(), conn);
}
PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
    if (errmsg) *errmsg = nullptr;
    BRENNIX_LIBPQ(PQconninfoParse, nullptr, conninfo, errmsg);
}
void PQconninfoFree(PQconninfoOption* options) {
    BRENNIX_LIBPQ(PQconninfoFree, void(), options);
}
int PQsocket(const PGconn* conn) {
    BRENNIX_LIBPQ(PQsocket, -1, conn);
}
char* PQdb(const PGconn* conn) {
    BRENNIX_LIBPQ(PQdb, nullptr, conn);
}
char* PQhost(const PGconn* conn) {
    BRENNIX_LIBPQ(PQhost, nullptr, conn);
}
char* PQport(const PGconn* conn) {
    BRENNIX_LIBPQ(PQport, nullptr, conn);
}
PQnoticeProcessor PQsetNoticeProcessor(PGconn* conn, PQnoticeProcessor proc, void* arg) {
    BRENNIX_LIBPQ(PQsetNoticeProcessor, nullptr, conn, proc, arg);
}
int PQsetnonblocking(PGconn* conn, int arg) {
    BRENNIX_LIBPQ(PQsetnonblocking, -1, conn, arg);
}
int PQflush(PGconn* conn) {
    BRENNIX_LIBPQ(PQflush, -1, conn);
}
int PQconsumeInput(PGconn* conn) {
    BRENNIX_LIBPQ(PQconsumeInput, 0, conn);
}
int PQisBusy(PGconn* conn) {
    BRENNIX_LIBPQ(PQisBusy, 0, conn);
}
PGresult* PQexec(PGconn* conn, const char* query) {
    BRENNIX_LIBPQ(PQexec, nullptr, conn, query);
}
PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                       const char* const* paramValues, const int* paramLengths,
                       const int* paramFormats, int resultFormat) {
    BRENNIX_LIBPQ(PQexecParams, nullptr, conn, command, nParams, paramTypes, paramValues,
                  paramLengths, paramFormats, resultFormat);
}
int PQsendQuery(PGconn* conn, const char* query) {
    BRENNIX_LIBPQ(PQsendQuery, 0, conn, query);
}
int PQsendQueryParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                      const char* const* paramValues, const int* paramLengths,
                      const int* paramFormats, int resultFormat) {
    BRENNIX_LIBPQ(PQsendQueryParams, 0, conn, command, nParams, paramTypes, paramValues,
                  paramLengths, paramFormats, resultFormat);
}
PGresult* PQgetResult(PGconn* conn) {
    BRENNIX_LIBPQ(PQgetResult, nullptr, conn);
}
ExecStatusType PQresultStatus(const PGresult* res) {
    BRENNIX_LIBPQ(PQresultStatus, PGRES_FATAL_ERROR, res);
}
char* PQresultErrorField(const PGresult* res, int fieldcode) {
    BRENNIX_LIBPQ(PQresultErrorField, nullptr, res, fieldcode);
}
int PQntuples(const PGresult* res) {
    BRENNIX_LIBPQ(PQntuples, 0, res);
}
int PQnfields(const PGresult* res) {
    BRENNIX_LIBPQ(PQnfields, 0, res);
}
char* PQgetvalue(const PGresult* res, int row, int field) {
    BRENNIX_LIBPQ(PQgetvalue, nullptr, res, row, field);
}
int PQgetisnull(const PGresult* res, int row, int field) {
    BRENNIX_LIBPQ(PQgetisnull, 1, res, row, field);
}
int PQgetlength(const PGresult* res, int row, int field) {
    BRENNIX_LIBPQ(PQgetlength, 0, res, row, field);
}
void PQclear(PGresult* res) {
    BRENNIX_LIBPQ(PQclear, void(), res);
}

} // extern "C"
