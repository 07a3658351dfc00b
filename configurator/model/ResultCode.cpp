#include "ResultCode.h"

namespace {
const QString kAttribute = QStringLiteral("ioLastErrCode");
}

int resultCodeFromText(const QString &text)
{
    bool ok = false;
    const int code = text.toInt(&ok);
    return ok ? code : int(codeNotExchanged);
}

QString resultCodeText(int code)
{
    return QString::number(code);
}

int resultCodeOf(const QDomElement &parameter)
{
    return resultCodeFromText(parameter.attribute(kAttribute));
}

bool hasResultCode(const QDomElement &parameter)
{
    return !parameter.attribute(kAttribute).isEmpty();
}

void setResultCode(QDomElement parameter, int code)
{
    parameter.setAttribute(kAttribute, resultCodeText(code));
}

void setResultCode(QDomElement parameter, const QString &codeText)
{
    setResultCode(parameter, resultCodeFromText(codeText));
}
