package jdbc.sql.cli;

import java.sql.SQLException;

/** What the natives throw: message, SQLSTATE and native error code. */
public class qvcliexception extends SQLException {
    private static final long serialVersionUID = 1L;

    public qvcliexception(String message, String sqlState, int nativeCode) {
        super(message, sqlState, nativeCode);
    }
}
