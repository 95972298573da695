#include "writer/write_failure.h"

#include <cerrno>
#include <new>

namespace verselane {

WriteFailure SystemWriteFailure(const std::string& Path, int SystemCode) {
    WriteFailure failure;
    failure.Path = Path;
    failure.SystemCode = SystemCode;
    switch (SystemCode) {
        case EACCES:
        case EPERM:
        case EROFS:
            failure.Kind = WriteFailureKind::NoAccess;
            break;
        case ENOENT:
        case ENOTDIR:
            failure.Kind = WriteFailureKind::FolderMissing;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            failure.Kind = WriteFailureKind::NoSpace;
            break;
        case EISDIR:
            failure.Kind = WriteFailureKind::IsFolder;
            break;
        default:
            failure.Kind = WriteFailureKind::System;
            break;
    }
    return failure;
}

WriteFailure CurrentWriteFailure(const std::string& Path) {
    WriteFailure failure;
    failure.Path = Path;
    try {
        throw;
    } catch (const WriteError& e) {
        return e.Failure();
    } catch (const RuntimeError& e) {
        failure.Kind = WriteFailureKind::Unencodable;
        failure.Error = e.Kind();
        failure.Detail = e.Detail();
    } catch (const std::bad_alloc&) {
        failure.Kind = WriteFailureKind::OutOfMemory;
    } catch (const std::exception& e) {
        failure.Detail = e.what();
    } catch (...) {
    }
    return failure;
}

}  // namespace verselane
