#include "Base/CancelledError.h"

bool CancelledError::isCancellation(const std::exception_ptr &error)
{
    if (!error) {
        return false;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CancelledError &) {
        return true;
    } catch (const std::nested_exception &nested) {
        return isCancellation(nested.nested_ptr());
    } catch (...) {
        return false;
    }
}
