#include "NetworkPort.h"

#include "NetworkError.h"

#include <QRegularExpression>

bool NetworkPort::isAddress(const QString &port)
{
    const QString text = port.trimmed();
    return text.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

bool NetworkPort::isTransparent(const QString &port)
{
    return port.trimmed().startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

QString NetworkPort::formProblem(const QString &port)
{
    // The library's rule (kavu_io.h), word for word.
    static const QRegularExpression form(
        QStringLiteral("^(tcp|rfc2217)://"
                       "(\\[[0-9A-Za-z:.%]*:[0-9A-Za-z:.%]*\\]|[A-Za-z0-9_](?:[A-Za-z0-9_.-]*[A-Za-z0-9_.])?)"
                       ":([0-9]{1,5})"
                       "(\\?(connect|rtt)=[0-9]{1,9}(&(connect|rtt)=[0-9]{1,9})*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = port.trimmed();
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return tr("Адрес записывается так: tcp://узел:порт или rfc2217://узел:порт "
                  "(узел — имя, IPv4-адрес или IPv6-адрес в скобках [ ]), например tcp://192.168.1.20:4001");
    const int number = m.captured(3).toInt();
    if (number < 1 || number > 65535)
        return tr("Номер TCP-порта должен быть от 1 до 65535");
    static const QRegularExpression option(QStringLiteral("(connect|rtt)=([0-9]+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    auto it = option.globalMatch(m.captured(4));
    while (it.hasNext()) {
        const QRegularExpressionMatch o = it.next();
        const bool connect = o.captured(1).compare(QLatin1String("connect"), Qt::CaseInsensitive) == 0;
        const long long ms = o.captured(2).toLongLong();
        if (connect && (ms < 1 || ms > 600000))
            return tr("connect= задаёт время соединения от 1 до 600000 мс");
        if (!connect && ms > 60000)
            return tr("rtt= задаёт время прохождения от 0 до 60000 мс");
    }
    return QString();
}

QString NetworkPort::connectFailureText(const QString &port, int systemError)
{
    const NetworkError::Kind kind = NetworkError::classify(systemError);
    const bool badForm = kind == NetworkError::Kind::BadSetting;
    if (badForm && !formProblem(port).isEmpty())
        return tr("Адрес %1 записан неверно. %2.").arg(port, formProblem(port));
    if (badForm)
        return tr("Сервер портов %1 не принял настройки линии (скорость, биты данных, чётность, стоповые биты). "
                  "Проверьте, какие из них он поддерживает.")
            .arg(port);
    if (kind == NetworkError::Kind::NoSuchHost)
        return tr("Узел в адресе %1 не найден: такого имени сеть не знает. Проверьте имя или укажите IP-адрес "
                  "сервера портов.")
            .arg(port);
    if (kind == NetworkError::Kind::Refused)
        return tr("Сервер %1 отказал в соединении: на этом TCP-порту ничего не слушает. Проверьте номер порта "
                  "в настройках сервера портов и режим работы (TCP-сервер или RFC 2217).")
            .arg(port);
    if (kind == NetworkError::Kind::TimedOut)
        return tr("Сервер %1 не ответил за время соединения. Проверьте адрес, VPN и сотовый маршрутизатор; "
                  "для медленной связи увеличьте время: ?connect=10000.")
            .arg(port);
    if (kind == NetworkError::Kind::Unreachable)
        return tr("Узел в адресе %1 недоступен: до него нет пути. Проверьте адрес и подключение к сети "
                  "(VPN, маршрутизатор).")
            .arg(port);
    if (kind == NetworkError::Kind::Closed)
        return tr("Сервер %1 принял соединение и сразу закрыл его: вероятно, он занят другим клиентом. "
                  "Закройте другую программу, работающую с этим сервером, или дождитесь её окончания.")
            .arg(port);
    const QString reason = QString::fromLocal8Bit(NetworkError::errorText(systemError).c_str());
    return tr("Не удалось соединиться с %1: %2 (код %3).").arg(port, reason).arg(systemError);
}

QString NetworkPort::noAnswerText(const QString &port)
{
    return tr("Сервер %1 принял соединение, но прибор не отвечает. Проверьте адрес прибора и скорость обмена "
              "(в прозрачном режиме tcp:// скорость линии задаётся в настройках сервера) и подключение линии к "
              "серверу. Сервер, занятый другим клиентом, тоже может держать соединение без ответа.")
        .arg(port);
}

QString NetworkPort::lostText(const QString &port)
{
    return tr("Связь потеряна: сервер портов %1 закрыл соединение. Если это случилось сразу после соединения, "
              "сервер, вероятно, занят другим клиентом; иначе он перезапущен или сеть оборвалась. "
              "Следующая операция соединится заново.")
        .arg(port);
}
